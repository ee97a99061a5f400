// Replaced by the output protection query.
