#include <cstdio>

int main(int argc, char** argv)
{
    (void)argc;
    std::printf("usage: %s <command> [parameters...] | @<batch file>\n", argc > 0 ? argv[0] : "KestroUtil");
    return 0;
}
