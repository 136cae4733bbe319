/* The benchmark's peer for direct mode: what the server ingests when a plain client-library
 * program sends a table's rows as multi-row INSERT statements of about 1 MB, with nothing
 * between reading and sending. It reads the same rows from the stand-in's SQLite file that the
 * converter reads through the CLI, and writes them into a copy of the converter's own table.
 *
 *   dunmere_bench_plain STANDIN_FILE SOURCE_DB DEST_DB TABLE...
 *   (server from DUNMERE_MYSQL_HOST, _PORT, _USER, _PASSWORD)
 *
 * DEST_DB is created anew and each TABLE made LIKE SOURCE_DB.TABLE, so both sides write into
 * the same definition. */
#include <mysql.h>
#include <sqlite3.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void fail(const char* what, const char* why) {
    fprintf(stderr, "%s: %s\n", what, why);
    exit(1);
}

static const char* env(const char* name, const char* fallback) {
    const char* value = getenv(name);
    return value && *value ? value : fallback;
}

struct buffer {
    char* data;
    size_t size, capacity;
};

static void reserve(struct buffer* b, size_t more) {
    if (b->size + more <= b->capacity) return;
    while (b->size + more > b->capacity) b->capacity = b->capacity ? b->capacity * 2 : 1 << 21;
    b->data = realloc(b->data, b->capacity);
    if (!b->data) fail("memory", "out of memory");
}

static void append(struct buffer* b, const char* text, size_t n) {
    reserve(b, n);
    memcpy(b->data + b->size, text, n);
    b->size += n;
}

static void query(MYSQL* mysql, const char* sql, size_t n) {
    if (mysql_real_query(mysql, sql, (unsigned long)n)) fail("server", mysql_error(mysql));
}

/* DB2 keeps timestamps as 2024-01-31-13.45.00.123456; MySQL reads 2024-01-31 13:45:00.123456. */
static int is_db2_timestamp(const unsigned char* s, int n) {
    return n >= 19 && s[4] == '-' && s[7] == '-' && s[10] == '-' && s[13] == '.' && s[16] == '.';
}

static void append_cell(struct buffer* b, MYSQL* mysql, sqlite3_stmt* st, int col) {
    char number[64];
    int n;
    switch (sqlite3_column_type(st, col)) {
    case SQLITE_NULL:
        append(b, "NULL", 4);
        break;
    case SQLITE_INTEGER:
        n = snprintf(number, sizeof number, "%lld", (long long)sqlite3_column_int64(st, col));
        append(b, number, (size_t)n);
        break;
    case SQLITE_FLOAT:
        n = snprintf(number, sizeof number, "%.17g", sqlite3_column_double(st, col));
        append(b, number, (size_t)n);
        break;
    case SQLITE_BLOB: {
        static const char hex[] = "0123456789ABCDEF";
        const unsigned char* p = sqlite3_column_blob(st, col);
        const int size = sqlite3_column_bytes(st, col);
        if (size == 0) {
            append(b, "''", 2);
            break;
        }
        reserve(b, 2 + 2 * (size_t)size);
        b->data[b->size++] = '0';
        b->data[b->size++] = 'x';
        for (int i = 0; i < size; ++i) {
            b->data[b->size++] = hex[p[i] >> 4];
            b->data[b->size++] = hex[p[i] & 15];
        }
        break;
    }
    default: {
        const unsigned char* text = sqlite3_column_text(st, col);
        const int size = sqlite3_column_bytes(st, col);
        if (is_db2_timestamp(text, size)) {
            char when[40];
            n = size < (int)sizeof when - 3 ? size : (int)sizeof when - 3;
            when[0] = '\'';
            memcpy(when + 1, text, (size_t)n);
            when[11] = ' ';
            when[14] = ':';
            when[17] = ':';
            when[n + 1] = '\'';
            append(b, when, (size_t)n + 2);
            break;
        }
        reserve(b, 2 + 2 * (size_t)size + 1);
        b->data[b->size++] = '\'';
        b->size += mysql_real_escape_string(mysql, b->data + b->size, (const char*)text, (unsigned long)size);
        b->data[b->size++] = '\'';
        break;
    }
    }
}

static long copy_table(MYSQL* mysql, sqlite3* lite, const char* table) {
    char sql[512];
    /* The stand-in names a table's SQLite table SCHEMA.NAME. */
    snprintf(sql, sizeof sql, "SELECT * FROM \"BENCH.%s\" ORDER BY rowid", table);
    sqlite3_stmt* st = NULL;
    if (sqlite3_prepare_v2(lite, sql, -1, &st, NULL) != SQLITE_OK) fail("stand-in", sqlite3_errmsg(lite));
    const int columns = sqlite3_column_count(st);
    char head[256];
    const int head_size = snprintf(head, sizeof head, "INSERT INTO `%s` VALUES ", table);
    struct buffer b = {0};
    long rows = 0;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (b.size == 0) append(&b, head, (size_t)head_size);
        else append(&b, ",", 1);
        append(&b, "(", 1);
        for (int c = 0; c < columns; ++c) {
            if (c) append(&b, ",", 1);
            append_cell(&b, mysql, st, c);
        }
        append(&b, ")", 1);
        ++rows;
        if (b.size >= 1000000) {
            query(mysql, b.data, b.size);
            b.size = 0;
        }
    }
    if (rc != SQLITE_DONE) fail("stand-in", sqlite3_errmsg(lite));
    if (b.size) query(mysql, b.data, b.size);
    sqlite3_finalize(st);
    free(b.data);
    return rows;
}

int main(int argc, char** argv) {
    if (argc < 5) {
        fprintf(stderr, "usage: %s STANDIN_FILE SOURCE_DB DEST_DB TABLE...\n", argv[0]);
        return 2;
    }
    sqlite3* lite = NULL;
    if (sqlite3_open_v2(argv[1], &lite, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK) fail(argv[1], sqlite3_errmsg(lite));
    MYSQL* mysql = mysql_init(NULL);
    if (!mysql_real_connect(mysql, env("DUNMERE_MYSQL_HOST", "127.0.0.1"), env("DUNMERE_MYSQL_USER", "root"),
                            env("DUNMERE_MYSQL_PASSWORD", ""), NULL,
                            (unsigned)atoi(env("DUNMERE_MYSQL_PORT", "3306")), NULL, 0))
        fail("server", mysql_error(mysql));
    if (mysql_set_character_set(mysql, "utf8mb4")) fail("server", mysql_error(mysql));
    char sql[512];
    snprintf(sql, sizeof sql, "DROP DATABASE IF EXISTS `%s`", argv[3]);
    query(mysql, sql, strlen(sql));
    snprintf(sql, sizeof sql, "CREATE DATABASE `%s`", argv[3]);
    query(mysql, sql, strlen(sql));
    if (mysql_select_db(mysql, argv[3])) fail("server", mysql_error(mysql));
    long total = 0;
    for (int i = 4; i < argc; ++i) {
        snprintf(sql, sizeof sql, "CREATE TABLE `%s` LIKE `%s`.`%s`", argv[i], argv[2], argv[i]);
        query(mysql, sql, strlen(sql));
        total += copy_table(mysql, lite, argv[i]);
    }
    printf("%ld rows sent\n", total);
    mysql_close(mysql);
    sqlite3_close(lite);
    return 0;
}
