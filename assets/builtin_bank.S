/* The bank image as read-only data between two symbols. */
  .section .rodata.velmo_builtin_bank, "a"
  .balign 16
  .globl velmo_builtin_bank_begin
  .hidden velmo_builtin_bank_begin
velmo_builtin_bank_begin:
  .incbin VELMO_BUILTIN_BANK_FILE
  .globl velmo_builtin_bank_end
  .hidden velmo_builtin_bank_end
velmo_builtin_bank_end:
  .section .note.GNU-stack, "", %progbits
