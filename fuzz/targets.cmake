# dunmere_fuzz(<target> <libraries...>) lines, one per fuzz target.
