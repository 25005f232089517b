// The yardstick of the start-up benchmark: a GUI program that does nothing, with the same
// toolchain, runtime and link options as the launcher. It imports KERNEL32 and msvcrt only.
int main()
{
    return 0;
}
