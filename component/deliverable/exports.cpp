// Placeholder until the library's exports land.
