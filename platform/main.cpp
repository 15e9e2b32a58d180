// Program entry. The window, main loop and start-up sequence are not built
// yet: for now the program only reports that.
#include <cstdio>

int main(int argc, char **argv)
{
    (void)argc;
    (void)argv;
    fprintf(stderr, "zylomach: the game window is not available in this build yet\n");
    return 1;
}
