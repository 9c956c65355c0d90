#include "ui/handlers.h"
#include "ui/toolkit.h"

// Every left press empties the address box, so that the user pastes the next
// address into an empty box. The press then goes on to the box as usual.
void onAddressBoxPressed(int32_t /*x*/, int32_t /*y*/, int32_t /*modifiers*/) {
    setBoxText(Text());
}
