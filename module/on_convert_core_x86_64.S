// OnConvertCore: a tail jump through OnConvertCoreNext with every register
// and stack argument untouched; returns false while the slot is empty.
    .text
    .globl  OnConvertCore
    .type   OnConvertCore, @function
OnConvertCore:
    .cfi_startproc
    movq    OnConvertCoreNext@GOTPCREL(%rip), %rax
    movq    (%rax), %rax
    testq   %rax, %rax
    jz      1f
    jmp     *%rax
1:
    xorl    %eax, %eax
    ret
    .cfi_endproc
    .size   OnConvertCore, .-OnConvertCore
    .section .note.GNU-stack,"",@progbits
