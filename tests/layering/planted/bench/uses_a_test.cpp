// A benchmark that borrows a test file: the check must refuse this tree.
#include "../tests/body/some_fixture.h"
