#include "safety/Guardian.h"

int main(int argc, char** argv) {
    return RunGuardian(argc, argv);
}
