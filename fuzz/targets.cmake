# dunmere_fuzz(<target> <libraries...>) lines, one per fuzz target.
dunmere_fuzz(fuzz_ole_date dunmere_ole)
dunmere_fuzz(fuzz_ole_from_string dunmere_ole)
dunmere_fuzz(fuzz_udb_profile dunmere_udb)
dunmere_fuzz(fuzz_db2standin_sql db2standin_core)
dunmere_fuzz(fuzz_sql_literal dunmere_sql)
