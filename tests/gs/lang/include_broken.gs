include "inc/shared.gs"
include "inc/broken.gs"

class A {};
// expect compile: inc/broken.gs(5) : parse error, line 5
// errors: 2
