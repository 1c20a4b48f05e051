#include "tool.h"

int main(int argc, char** argv)
{
    return ToolMain(argc, argv);
}
