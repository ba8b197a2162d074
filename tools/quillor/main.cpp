// Placeholder until the command lands.
int main() { return 2; }
