#include "monitor/Application.h"

int main(int argc, char** argv)
{
    return vm::RunVarimon(argc, argv);
}
