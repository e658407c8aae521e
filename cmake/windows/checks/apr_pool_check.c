/* Links the cross-built static APR and exercises the calls the product uses:
 * pools, allocation, string copies and cleanups. Exits non-zero on the first fault. */
#include <stdio.h>
#include <string.h>

#include <apr_general.h>
#include <apr_pools.h>
#include <apr_strings.h>

static int cleanups_run;

static apr_status_t count_cleanup(void *data)
{
    (void)data;
    ++cleanups_run;
    return APR_SUCCESS;
}

#define CHECK(cond)                                                   \
    do {                                                              \
        if (!(cond)) {                                                \
            fprintf(stderr, "apr check failed: %s (line %d)\n", #cond, __LINE__); \
            return 1;                                                 \
        }                                                             \
    } while (0)

int main(void)
{
    apr_pool_t *pool = NULL;
    apr_pool_t *child = NULL;
    char *copy;
    char *part;
    unsigned char *zeros;
    int i;

    CHECK(apr_initialize() == APR_SUCCESS);
    CHECK(apr_pool_create(&pool, NULL) == APR_SUCCESS && pool != NULL);
    CHECK(apr_pool_create(&child, pool) == APR_SUCCESS && child != NULL);

    copy = apr_pstrdup(pool, "harborline");
    CHECK(copy != NULL && strcmp(copy, "harborline") == 0);
    part = apr_pstrmemdup(pool, "abcdef", 3);
    CHECK(part != NULL && strcmp(part, "abc") == 0);

    /* Larger than one allocator block, so a fresh block is taken. */
    zeros = apr_pcalloc(child, 64 * 1024);
    CHECK(zeros != NULL);
    for (i = 0; i < 64 * 1024; ++i)
        CHECK(zeros[i] == 0);
    CHECK(apr_palloc(child, 17) != NULL);

    apr_pool_cleanup_register(child, NULL, count_cleanup, apr_pool_cleanup_null);
    apr_pool_cleanup_register(pool, NULL, count_cleanup, apr_pool_cleanup_null);
    /* Destroying the parent runs the child's cleanup too. */
    apr_pool_destroy(pool);
    CHECK(cleanups_run == 2);

    apr_terminate();
    printf("apr check passed\n");
    return 0;
}
