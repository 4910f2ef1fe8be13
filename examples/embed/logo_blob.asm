; The embedded file as a flat blob.
logo:
%include "logo.asm"
logo_end:
