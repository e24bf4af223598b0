// Placeholder for a component that has no sources yet.
