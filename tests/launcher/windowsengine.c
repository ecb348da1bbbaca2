/* A Windows stand-in engine for the tests, started through Wine: it reads its
   side from Control.ini (and checks that the save file named there is in
   place) and the number of own moves from "moves N" in EngineScript.txt,
   then plays in turn, the host first: it writes each scripted move as
   "SEND\aicommand.xml" (letter case unlike the connector's own) once the
   connector has taken the last one away, and takes the other side's move out
   of "Receive\AICommand.xml". EngineLog.txt logs both, EngineDone.txt ends. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static int firstLines(const char *name, char lines[][128], int count)
{
    FILE *f = fopen(name, "rb");
    int n = 0;
    while (f && n < count && fgets(lines[n], 128, f))
        lines[n][strcspn(lines[n], "\r\n")] = 0, ++n;
    if (f)
        fclose(f);
    return n;
}

/* Waits up to a minute until the file is there (or gone). */
static int await(const char *name, int there)
{
    for (int i = 0; i < 3000; ++i, Sleep(20)) {
        if ((GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES) == there)
            return 1;
    }
    return 0;
}

static void logLine(const char *name, const char *kind, const char *text)
{
    FILE *f = fopen(name, "ab");
    if (f)
        fprintf(f, "%s%s\r\n", kind, text), fclose(f);
}

int main(void)
{
    char control[4][128], line[1][128];
    int moves = 0;
    if (firstLines("Control.ini", control, 4) < 4 || firstLines(control[1], line, 1) < 1 ||
        firstLines("EngineScript.txt", line, 1) < 1 || sscanf(line[0], "moves %d", &moves) < 1)
        return 1;
    const int host = strcmp(control[3], "Host") == 0;
    for (int turn = 0; turn < 2 * moves; ++turn) {
        if ((turn % 2 == 0) == host) {
            sprintf(line[0], "<Root><Command FlagID='%d' Direction='%c' SerpentJump='No'/></Root>",
                    5001 + turn / 2 % 12, "NESW"[turn / 2 % 4]);
            if (!await("SEND\\aicommand.xml", 0))
                return 1;
            logLine("SEND\\aicommand.tmp", "", line[0]);
            MoveFileA("SEND\\aicommand.tmp", "SEND\\aicommand.xml");
            logLine("EngineLog.txt", "SENT:", line[0]);
        } else {
            if (!await("Receive\\AICommand.xml", 1) ||
                firstLines("Receive\\AICommand.xml", line, 1) < 1)
                return 1;
            DeleteFileA("Receive\\AICommand.xml");
            logLine("EngineLog.txt", "RCVD:", line[0]);
        }
    }
    logLine("EngineDone.txt", "", "");
    return 0;
}
