/* The platform libraries call back into the program through mainp.  It lives
 * in C because C++ forbids taking the address of main. */
int main(int argc, char **argv);
int (*mainp)(int, char **) = main;
