// slash: the full-screen slash effect.

#include "app/slash_program.h"

int main(int argc, char** argv) {
  return slash::SlashMain(argc, argv);
}
