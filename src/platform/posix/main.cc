#include "app/main.h"
#include "platform/posix/entry.h"

int main(int argc, char** argv) { return monctl::platform::RunWideMain(argc, argv, monctl::wmain); }
