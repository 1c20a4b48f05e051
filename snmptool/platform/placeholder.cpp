// Replaced by the layer's routines.
int PlatformPlaceholder() { return 0; }
