// written by the core work
