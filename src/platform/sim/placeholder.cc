// Replaced by the simulated display stack.
