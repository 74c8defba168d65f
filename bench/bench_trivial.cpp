// A trivial program: it starts and ends. The baseline of a program's start.
int wmain()
{
    return 0;
}
