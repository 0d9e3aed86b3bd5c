/* Calibrates the Wine memory figures: commits and touches N MiB, then exits. Run under
 * /usr/bin/time with N = 0 and N = 64; when the two peaks differ by about 64 MiB, time's
 * figure is the Windows process itself (Wine hosts it in the process time waited for),
 * and the N = 0 peak is what Wine adds to any Windows program.
 *   memprobe.exe N */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: memprobe MIB\n");
        return 2;
    }
    SIZE_T size = (SIZE_T)strtoul(argv[1], NULL, 10) * 1024 * 1024;
    if (size == 0) return 0;
    volatile unsigned char* block = VirtualAlloc(NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block == NULL) {
        fprintf(stderr, "memprobe: cannot commit %lu bytes\n", (unsigned long)size);
        return 1;
    }
    for (SIZE_T i = 0; i < size; i += 4096) block[i] = (unsigned char)i | 1;
    return 0;
}
