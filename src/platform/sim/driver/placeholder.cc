// Replaced by the simulated graphics driver.
