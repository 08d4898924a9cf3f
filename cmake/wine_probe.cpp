// Built and started at configure time: prints its line when programs of the
// target run here.
#include <cstdio>

int main() { return std::puts("wine probe") < 0 ? 1 : 0; }
