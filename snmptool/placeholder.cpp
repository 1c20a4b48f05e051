// Replaced by the tool's routines.
int ToolPlaceholder() { return 0; }
