// Placeholder until the pure helpers land.
