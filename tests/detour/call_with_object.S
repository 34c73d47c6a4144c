// uint32_t CallWithObject(void* function, void* object, uint32_t argument)
// Calls function as a member function would be called (object in ECX, one stack argument) with
// every other general register zeroed, and restores the stack and callee-saved registers whatever
// the function pops. Returns EAX.
    .text
    .globl _CallWithObject
_CallWithObject:
    push %ebp
    mov %esp, %ebp
    push %ebx
    push %esi
    push %edi
    mov 12(%ebp), %ecx
    xor %eax, %eax
    xor %edx, %edx
    xor %ebx, %ebx
    xor %esi, %esi
    xor %edi, %edi
    pushl 16(%ebp)
    call *8(%ebp)
    lea -12(%ebp), %esp
    pop %edi
    pop %esi
    pop %ebx
    pop %ebp
    ret
