#include "entry.h"

int main(int argc, char *argv[])
{
    return RunQuillet(argc, argv);
}
