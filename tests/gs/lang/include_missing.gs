include "inc/nowhere.gs"

class A {};
// expect compile: Could not read file  inc/nowhere.gs.
// errors: 1
