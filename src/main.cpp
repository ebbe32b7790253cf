#include "startup/EntryRoutine.h"

int main(int argc, char* argv[])
{
    return runEntryRoutine(argc, argv);
}
