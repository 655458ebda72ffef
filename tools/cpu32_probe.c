// Can this CPU run 32-bit code for a 64-bit Linux process? wine64 runs 32-bit
// Windows programs (WoW64) by switching to the 32-bit user code segment;
// some virtual machines fault on that switch. This does the same switch once:
// a far return to selector 0x23, "mov eax, 42; retf" there, and back to the
// 64-bit segment 0x33. Exit 0 when it came back with 42; a fault kills it.
// Built with the host's gcc, without PIE, so that the way back lies below 4 GB.
#define _GNU_SOURCE
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>

// The 64-bit side keeps nothing in registers across the switch: the upper
// halves of registers are not defined to survive compatibility mode.
static uint64_t code_address, stack_top, saved_rsp, result;

int main(void) {
  // 32-bit code and stack must lie below 4 GB: MAP_32BIT gives the first 2 GB.
  unsigned char* code = mmap(NULL, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  unsigned char* stack = mmap(NULL, 65536, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (code == MAP_FAILED || stack == MAP_FAILED) return 2;
  static const unsigned char kMovEax42Retf[] = {0xB8, 42, 0, 0, 0, 0xCB};
  memcpy(code, kMovEax42Retf, sizeof kMovEax42Retf);
  code_address = (uint64_t)(uintptr_t)code;
  stack_top = (uint64_t)(uintptr_t)(stack + 65536 - 64);
  __asm__ volatile(
      "mov %%rsp, %[saved]\n\t"
      "mov %[stack], %%rsp\n\t"
      // The 32-bit retf pops a 4-byte EIP, then a 4-byte CS: label 1, 0x33.
      "lea 1f(%%rip), %%rax\n\t"
      "sub $8, %%rsp\n\t"
      "movl %%eax, 0(%%rsp)\n\t"
      "movl $0x33, 4(%%rsp)\n\t"
      "pushq $0x23\n\t"
      "pushq %[code]\n\t"
      "lretq\n"
      "1:\n\t"
      "mov %[saved], %%rsp\n\t"
      "mov %%rax, %[result]\n\t"
      : [result] "=m"(result), [saved] "+m"(saved_rsp)
      : [stack] "m"(stack_top), [code] "m"(code_address)
      : "rax", "rbx", "rcx", "rdx", "rsi", "rdi", "r8", "r9", "r10", "r11",
        "r12", "r13", "r14", "r15", "memory", "cc");
  return (result & 0xffffffff) == 42 ? 0 : 1;
}
