#pragma once

// Characters from memory for the number reader; what is left unread stays
// visible in [next, end).

#include <cstdio>

namespace fare {

struct memory_source {
    const char* next;
    const char* end;
    int get() { return next == end ? EOF : static_cast<unsigned char>(*next++); }
    void unget(int /*c*/) { --next; }
};

}  // namespace fare
