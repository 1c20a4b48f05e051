// Replaced by the launcher's routines.
int PkgrunnerPlaceholder() { return 0; }
