// OnConvertCore: a tail jump through OnConvertCoreNext with every register
// and stack argument untouched; returns false while the slot is empty. The
// jump is the same in the System V and the Windows x64 conventions; only
// the object format's directives and the way to reach the slot differ.
    .text
    .globl  OnConvertCore
#ifdef _WIN32
    .def    OnConvertCore
    .scl    2
    .type   32
    .endef
#else
    .type   OnConvertCore, @function
#endif
OnConvertCore:
    .cfi_startproc
#ifdef _WIN32
    // A PE image has no GOT: the slot is reached relative to the code.
    movq    OnConvertCoreNext(%rip), %rax
#else
    movq    OnConvertCoreNext@GOTPCREL(%rip), %rax
    movq    (%rax), %rax
#endif
    testq   %rax, %rax
    jz      1f
    jmp     *%rax
1:
    xorl    %eax, %eax
    ret
    .cfi_endproc
#ifndef _WIN32
    .size   OnConvertCore, .-OnConvertCore
    .section .note.GNU-stack,"",@progbits
#endif
