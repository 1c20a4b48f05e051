// Replaced by the shared test support.
int TestSupportPlaceholder() { return 0; }
