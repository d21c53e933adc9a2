// A file that breaks the layering on purpose: the check must refuse this tree.
#include "imaging/integral.h"
#include "library/tracking_context.h"
