// The library's only two exported functions. No exception crosses them.
#include "library/olvar_object.h"

extern "C" OLVAR_API IOlvar* CreateOlvar() {
    try {
        return new olvar::Olvar();
    } catch (...) {
        return nullptr;
    }
}

extern "C" OLVAR_API void ReleaseOlvar(IOlvar** handle) {
    if (handle == nullptr || *handle == nullptr) {
        return;
    }
    IOlvar* object = *handle;
    *handle = nullptr;
    delete static_cast<olvar::Olvar*>(object);
}
