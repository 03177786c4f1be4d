#include "app/CommandLine.h"

int main(int argc, char** argv)
{
    return qm::RunCommandLine(argc, argv);
}
