// Carrier of the precompiled header that every test program shares (the
// test framework and the standard library headers the tests use most).
int main() { return 0; }
