#include "bench/pages.h"

#include <random>

namespace {

const char* const words[] = {"harbour", "evening", "tide",   "lantern", "river", "station",
                             "market",  "window",  "garden", "bridge",  "north", "summer"};

std::string word(std::mt19937& random) {
    return words[std::uniform_int_distribution<int>(0, 11)(random)];
}

std::string number(std::mt19937& random, int low, int high) {
    return std::to_string(std::uniform_int_distribution<int>(low, high)(random));
}

// The head of every page: the title and description assignments, one size fragment and
// one FLV address, as a real video page has them.
std::string pageHead() {
    return "<html><head><meta charset=\"utf-8\"><title>Tide Tables</title>\n"
           "<script type=\"text/javascript\">\n"
           "var G_MOVIE_TITLE = 'Tide Tables, Volume Two';\n"
           "var G_OTHER_DESC='An evening walk along the harbour, in two parts.';\n"
           "var G_PARTS=[{id:1,size:10485760,status:1}];\n"
           "</script></head><body>\n"
           "<a href=\"http://media.morvane.test:8080/v/66/66861_1.flv\">part 1</a>\n";
}

// One block of an ordinary page: links to other pages, text with commas and colons, now
// and then a script with size fragments and a link to a media file.
std::string realisticBlock(std::mt19937& random, const char* mediaEnding) {
    std::string block = "<div class=\"item\"><a href=\"http://v.morvane.test/v/" +
                        number(random, 10, 99) + "/" + number(random, 10000, 99999) +
                        ".shtml\" title=\"" + word(random) + " " + word(random) + "\">";
    for (int n = std::uniform_int_distribution<int>(8, 30)(random); n > 0; --n) {
        block += word(random);
        block += n % 5 == 0 ? ", " : (n % 7 == 0 ? ": " : " ");
    }
    block += "</a><span class=\"meta\">views:" + number(random, 1, 99999) +
             ",likes:" + number(random, 0, 999) + "</span>\n";
    block += "<img src=\"http://img.morvane.test/p/" + number(random, 1000, 9999) +
             ".jpg\" alt=\"" + word(random) + "\"></div>\n";
    const int roll = std::uniform_int_distribution<int>(0, 9)(random);
    if (roll == 0) {
        block += "<script>var list=[{id:" + number(random, 1, 99) +
                 ",size:" + number(random, 1000, 99999999) +
                 ",status:1},{id:" + number(random, 1, 99) +
                 ",size:" + number(random, 1000, 99999999) + ",status:1}];</script>\n";
    } else if (roll == 1) {
        block += "<a href=\"http://media.morvane.test:8080/v/" + number(random, 10, 99) + "/" +
                 number(random, 10000, 99999) + "_" + number(random, 1, 9) + mediaEnding +
                 "\">part</a>\n";
    }
    return block;
}

std::string fill(std::size_t bytes, std::string page, const std::string& fragment) {
    while (page.size() < bytes) {
        page += fragment;
    }
    page.resize(bytes);
    return page;
}

} // namespace

const char* pageKindName(PageKind kind) {
    switch (kind) {
    case PageKind::Realistic:
        return "realistic";
    case PageKind::SizesNoStatus1:
        return "sizes-no-status1";
    case PageKind::MediaNoFlv:
        return "media-no-flv";
    case PageKind::OrdinaryMp4:
        return "ordinary-mp4";
    }
    return "?";
}

std::vector<PageKind> allPageKinds() {
    return {PageKind::Realistic, PageKind::SizesNoStatus1, PageKind::MediaNoFlv,
            PageKind::OrdinaryMp4};
}

Text generatePage(PageKind kind, std::size_t bytes) {
    std::mt19937 random(static_cast<unsigned>(bytes) * 31u + static_cast<unsigned>(kind));
    std::string page = pageHead();
    switch (kind) {
    case PageKind::Realistic:
    case PageKind::OrdinaryMp4: {
        const char* ending = kind == PageKind::Realistic ? ".flv" : ".mp4";
        while (page.size() < bytes) {
            page += realisticBlock(random, ending);
        }
        page.resize(bytes);
        return page;
    }
    case PageKind::SizesNoStatus1:
        return fill(bytes, page + "<script>var more=[", "{id:3,size:30,status:2},");
    case PageKind::MediaNoFlv:
        return fill(bytes, page, "<a href=\"http://media.morvane.test:8080/v/7/77.mp4\">x</a> ");
    }
    return page;
}
