/* Nothing but comments
   is no program. */
// expect compile: comments_only.gs(5) : parse error, line 5
// errors: 2
