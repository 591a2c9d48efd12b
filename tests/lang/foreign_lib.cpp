// A shared library that is not a UI language library: it lacks the table function.
extern "C" __attribute__((visibility("default"))) int OrvSomethingElse() {
    return 318;
}
