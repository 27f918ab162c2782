#include "driver/run.h"

int main(int argc, char** argv)
{
    return khex::run_khex(argc, argv);
}
