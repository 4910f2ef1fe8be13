#include <stdio.h>

static const unsigned char logo[] =
#include "logo.inc"

int main(void)
{
    return fwrite(logo, 1, sizeof logo, stdout) == sizeof logo ? 0 : 1;
}
