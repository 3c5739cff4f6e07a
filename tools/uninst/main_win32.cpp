// Uninst.exe: no window of its own; its questions and its last word are message boxes.
#include <windows.h>

#include "uninst.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    uninst::Run(nullptr);
    return 0;
}
