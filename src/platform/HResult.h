#pragma once
// Early return on a failing HRESULT, passing the code up unchanged.
#include <windows.h>

#define RETURN_IF_FAILED(expression)              \
    do {                                          \
        const HRESULT hrChecked_ = (expression);  \
        if (FAILED(hrChecked_)) return hrChecked_; \
    } while (0)
