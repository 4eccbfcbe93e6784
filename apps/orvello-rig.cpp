#include "sim/OrvelloRig.h"

int main(int argc, char** argv) {
    return RunOrvelloRig(argc, argv);
}
