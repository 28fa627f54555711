// Keeps a library target valid while its directory holds no sources yet.
