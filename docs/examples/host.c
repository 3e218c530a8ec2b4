/* A host of the surgery-application module, in plain C.
 *
 *   cc host.c $(pkg-config --cflags --libs operedit) -o host
 *   ./host 李医生 0301 普外科      (UTF-8 arguments, as a terminal types them)
 *   ./host --null                  (a null argument: the module refuses it)
 *
 * The module takes and returns GBK; this host converts its UTF-8 arguments
 * with iconv, as an EMR client on a UTF-8 system would, and prints the
 * result back in UTF-8. Exit status: 0 for the empty result (the list was
 * shown and closed), 1 for any other result, 2 for a failure of its own.
 */
#include <operedit.h>

#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Converts `in` between code pages into `out` (size bytes); 0 on success. */
static int Convert(const char* to, const char* from, const char* in, char* out, size_t size)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == (iconv_t)-1) {
        return -1;
    }
    char* src = (char*)in;
    size_t srcLeft = strlen(in);
    char* dst = out;
    size_t dstLeft = size - 1;
    const size_t done = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (done == (size_t)-1) {
        return -1;
    }
    *dst = '\0';
    return 0;
}

int main(int argc, char** argv)
{
    const char* result;
    if (argc == 2 && strcmp(argv[1], "--null") == 0) {
        result = operedit(NULL, "0301", "");
    } else if (argc == 4) {
        char applicant[64], deptCode[64], deptName[128];
        if (Convert("GBK", "UTF-8", argv[1], applicant, sizeof applicant) != 0 ||
            Convert("GBK", "UTF-8", argv[2], deptCode, sizeof deptCode) != 0 ||
            Convert("GBK", "UTF-8", argv[3], deptName, sizeof deptName) != 0) {
            fprintf(stderr, "host: an argument is not UTF-8 text that GBK can hold\n");
            return 2;
        }
        result = operedit(applicant, deptCode, deptName);
    } else {
        fprintf(stderr, "usage: host APPLICANT DEPTCODE DEPTNAME | host --null\n");
        return 2;
    }

    /* The result is the library's constant text: read it, never free it. */
    char text[256];
    if (Convert("UTF-8", "GBK", result, text, sizeof text) != 0) {
        fprintf(stderr, "host: the result is not GBK text\n");
        return 2;
    }
    printf("%s\n", text);
    if (strcmp(result, OPEREDIT_CANNOT_CONNECT) == 0) {
        fprintf(stderr, "host: check the alias HIS in /etc/hisdb/aliases.ini\n");
    }
    return strcmp(result, OPEREDIT_OK) == 0 ? 0 : 1;
}
