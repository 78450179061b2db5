/* A plug-in without the entry point: the tool must close it again. */
int KNIOtherFunction(void);

int KNIOtherFunction(void)
{
    return 1;
}
