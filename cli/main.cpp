// k72-card: the card commands from a terminal. (The commands arrive with the terminal tool.)
#include <cstdio>

int main() {
    std::fprintf(stderr, "k72-card: no commands yet\n");
    return 2;
}
