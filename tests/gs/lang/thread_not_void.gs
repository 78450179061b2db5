class A {
  thread int Run() { return 1; }
  thread void Loop() {}
};
// expect compile: thread_not_void.gs(2) : thread function must return void, line 2.
// errors: 1
