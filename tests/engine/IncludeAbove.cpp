// Built only by the room checks: it includes a header its room must not see.
#include HEADER_ABOVE
