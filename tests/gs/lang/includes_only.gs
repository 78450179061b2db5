// A program needs at least one class.
include "inc/shared.gs"
// expect compile: includes_only.gs(5) : parse error, line 5
// errors: 2
