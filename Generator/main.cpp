// Placeholder entry point; replaced by the program driver.
int main() { return 1; }
