// Must not compile in a consumer: an internal header of the library.
#include <quorvane_dat/lib/detail/chain_reader.hpp>

int main() { return 0; }
