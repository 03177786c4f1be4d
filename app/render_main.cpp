// quillo-render: the command line with headless rendering on OSMesa.
#include "app/CommandLine.h"
#include "app/OffscreenRender.h"

int main(int argc, char** argv)
{
    return qm::RunCommandLine(argc, argv, qm::RenderOffscreen, qm::DescribeScene);
}
