/* The device benchmark's instruction counter: a qemu TCG plugin (plugin API version 1, qemu
 * 7.2) that adds up the guest instructions a program executes under qemu-arm, split into
 * multiplies, loads, stores, branches and the rest, and for profiles each translation block's
 * executions.
 *
 *   qemu-arm -plugin insn_counter_plugin.so,out=COUNTS[,profile=on][,align=on] PROGRAM ...
 *
 * At translation each block gets a record (its address, its instruction count and its counts
 * per kind, decoded from the instruction words by arm_insn_class.c) and one inline addition to
 * the record's execution count, the cheapest instrumentation qemu offers; the totals are the
 * records' counts times their executions, so instrumenting costs one addition per block run.
 * Instructions whose condition fails count as executed: the processor issues them too.
 *
 * At exit COUNTS receives lines "instructions N", "multiplies N", "loads N", "stores N",
 * "branches N", and with profile=on one line per block, "block ADDRESS INSTRUCTIONS
 * EXECUTIONS" (hexadecimal address), for scripts/device-bench.sh to map onto symbols.
 *
 * align=on also watches every load and store for the accesses that the devices' processors
 * cannot make: a halfword or word not at a multiple of its size (ARMv4 and ARMv5 load such a
 * word rotated, Windows CE raises a misalignment exception; qemu just does it). Each
 * instruction that made one gets a line "misaligned ADDRESS SIZE COUNT". This calls back on
 * every access: a check, far slower than counting. */
#include <inttypes.h>
#include <pthread.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "arm_insn_class.h"

/* --- The part of qemu's plugin interface used here (qemu-plugin.h, API version 1) --- */
typedef uint64_t qemu_plugin_id_t;
typedef struct qemu_info_t qemu_info_t; /* read through no field */
struct qemu_plugin_tb;
struct qemu_plugin_insn;
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 };
enum qemu_plugin_cb_flags { QEMU_PLUGIN_CB_NO_REGS, QEMU_PLUGIN_CB_R_REGS, QEMU_PLUGIN_CB_RW_REGS };
enum qemu_plugin_mem_rw { QEMU_PLUGIN_MEM_R = 1, QEMU_PLUGIN_MEM_W, QEMU_PLUGIN_MEM_RW };
typedef uint32_t qemu_plugin_meminfo_t;
typedef void (*qemu_plugin_vcpu_mem_cb_t)(unsigned int vcpu_index, qemu_plugin_meminfo_t info,
                                          uint64_t vaddr, void* userdata);
typedef void (*qemu_plugin_vcpu_tb_trans_cb_t)(qemu_plugin_id_t id, struct qemu_plugin_tb* tb);
typedef void (*qemu_plugin_udata_cb_t)(qemu_plugin_id_t id, void* userdata);

void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t id, qemu_plugin_vcpu_tb_trans_cb_t cb);
void qemu_plugin_register_vcpu_tb_exec_inline(struct qemu_plugin_tb* tb, enum qemu_plugin_op op,
                                              void* ptr, uint64_t imm);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t id, qemu_plugin_udata_cb_t cb, void* userdata);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb* tb);
uint64_t qemu_plugin_tb_vaddr(const struct qemu_plugin_tb* tb);
struct qemu_plugin_insn* qemu_plugin_tb_get_insn(const struct qemu_plugin_tb* tb, size_t idx);
const void* qemu_plugin_insn_data(const struct qemu_plugin_insn* insn);
size_t qemu_plugin_insn_size(const struct qemu_plugin_insn* insn);
uint64_t qemu_plugin_insn_vaddr(const struct qemu_plugin_insn* insn);
void qemu_plugin_register_vcpu_mem_cb(struct qemu_plugin_insn* insn, qemu_plugin_vcpu_mem_cb_t cb,
                                      enum qemu_plugin_cb_flags flags, enum qemu_plugin_mem_rw rw,
                                      void* userdata);
unsigned int qemu_plugin_mem_size_shift(qemu_plugin_meminfo_t info);
void qemu_plugin_outs(const char* string);

#define PLUGIN_EXPORT __attribute__((visibility("default")))
PLUGIN_EXPORT int qemu_plugin_version = 1;
PLUGIN_EXPORT int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info, int argc,
                                      char** argv);

/* --- The blocks --- */

/* One translated block. qemu may translate the same code again (after its code cache fills);
 * the same address, length and words find the same record. */
typedef struct Block {
    uint64_t executions; /* incremented by the translated code itself */
    uint64_t address;
    uint32_t checksum;
    uint32_t instructions;
    uint32_t kinds[ARM_INSN_CLASS_COUNT];
} Block;

#define CHUNK_BLOCKS 4096
typedef struct Chunk {
    struct Chunk* next;
    size_t used;
    Block blocks[CHUNK_BLOCKS];
} Chunk;

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static Chunk* g_chunks;     /* records never move: the translated code holds their addresses */
static Block** g_table;     /* open addressing over the records */
static size_t g_table_size; /* a power of two */
static size_t g_block_count;
static char* g_out_path;
static bool g_profile;
static bool g_align;

/* The instructions that made misaligned accesses (align=on), in a small open-addressed table
 * of their own; a full table drops further ones and says so. */
#define MISALIGNED_SLOTS 4096
typedef struct Misaligned {
    uint64_t address;
    uint64_t count;
    unsigned size;
} Misaligned;
static Misaligned g_misaligned[MISALIGNED_SLOTS];
static uint64_t g_misaligned_dropped;

static void OnAccess(unsigned int vcpu, qemu_plugin_meminfo_t info, uint64_t vaddr, void* insn) {
    (void)vcpu;
    const unsigned size = 1u << qemu_plugin_mem_size_shift(info);
    if ((vaddr & (size - 1)) == 0) return;
    const uint64_t address = (uint64_t)(uintptr_t)insn;
    pthread_mutex_lock(&g_lock);
    size_t s = (size_t)((address >> 2) * 0x9E3779B1u) & (MISALIGNED_SLOTS - 1);
    size_t probes = 0;
    while (g_misaligned[s].count != 0 && g_misaligned[s].address != address &&
           probes < MISALIGNED_SLOTS) {
        s = (s + 1) & (MISALIGNED_SLOTS - 1);
        ++probes;
    }
    if (probes == MISALIGNED_SLOTS) {
        ++g_misaligned_dropped;
    } else {
        g_misaligned[s].address = address;
        g_misaligned[s].size = size;
        ++g_misaligned[s].count;
    }
    pthread_mutex_unlock(&g_lock);
}

static size_t Slot(uint64_t address, uint32_t checksum) {
    uint64_t h = (address ^ ((uint64_t)checksum << 29)) * 0x9E3779B97F4A7C15ull;
    return (size_t)(h >> 20) & (g_table_size - 1);
}

static bool Grow(void) {
    const size_t size = g_table_size == 0 ? 1u << 14 : g_table_size * 2;
    Block** table = calloc(size, sizeof *table);
    if (table == NULL) return false;
    Block** old = g_table;
    const size_t old_size = g_table_size;
    g_table = table;
    g_table_size = size;
    for (size_t i = 0; i < old_size; ++i) {
        if (old[i] == NULL) continue;
        size_t s = Slot(old[i]->address, old[i]->checksum);
        while (g_table[s] != NULL) s = (s + 1) & (size - 1);
        g_table[s] = old[i];
    }
    free(old);
    return true;
}

/* The record of a block, made on its first translation; NULL when out of memory. */
static Block* FindOrAdd(const Block* key) {
    if ((g_block_count + 1) * 2 > g_table_size && !Grow()) return NULL;
    size_t s = Slot(key->address, key->checksum);
    for (; g_table[s] != NULL; s = (s + 1) & (g_table_size - 1)) {
        const Block* b = g_table[s];
        if (b->address == key->address && b->checksum == key->checksum &&
            b->instructions == key->instructions) {
            return g_table[s];
        }
    }
    if (g_chunks == NULL || g_chunks->used == CHUNK_BLOCKS) {
        Chunk* chunk = calloc(1, sizeof *chunk);
        if (chunk == NULL) return NULL;
        chunk->next = g_chunks;
        g_chunks = chunk;
    }
    Block* block = &g_chunks->blocks[g_chunks->used++];
    *block = *key;
    g_table[s] = block;
    ++g_block_count;
    return block;
}

static void OnTranslate(qemu_plugin_id_t id, struct qemu_plugin_tb* tb) {
    (void)id;
    Block key;
    memset(&key, 0, sizeof key);
    key.address = qemu_plugin_tb_vaddr(tb);
    const size_t n = qemu_plugin_tb_n_insns(tb);
    key.instructions = (uint32_t)n;
    uint32_t checksum = 2166136261u;
    for (size_t i = 0; i < n; ++i) {
        const struct qemu_plugin_insn* insn = qemu_plugin_tb_get_insn(tb, i);
        const uint8_t* data = qemu_plugin_insn_data(insn);
        const size_t size = qemu_plugin_insn_size(insn);
        enum ArmInsnClass kind = kArmOther;
        if (size == 4) {
            uint32_t word;
            memcpy(&word, data, 4); /* the guest and this machine are both little-endian */
            kind = ClassifyArmInsn(word);
            checksum = (checksum ^ word) * 16777619u;
        } else if (size == 2) {
            uint16_t half;
            memcpy(&half, data, 2);
            kind = ClassifyThumbInsn(half);
            checksum = (checksum ^ half) * 16777619u;
        }
        ++key.kinds[kind];
        if (g_align && (kind == kArmLoad || kind == kArmStore)) {
            /* The instruction's address travels as the callback's user data. */
            qemu_plugin_register_vcpu_mem_cb((struct qemu_plugin_insn*)insn, OnAccess,
                                             QEMU_PLUGIN_CB_NO_REGS, QEMU_PLUGIN_MEM_RW,
                                             (void*)(uintptr_t)qemu_plugin_insn_vaddr(insn));
        }
    }
    key.checksum = checksum;
    pthread_mutex_lock(&g_lock);
    Block* block = FindOrAdd(&key);
    pthread_mutex_unlock(&g_lock);
    if (block == NULL) {
        qemu_plugin_outs("insn_counter: out of memory; the counts are incomplete\n");
        return;
    }
    qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &block->executions, 1);
}

static void OnExit(qemu_plugin_id_t id, void* userdata) {
    (void)id;
    (void)userdata;
    uint64_t total = 0;
    uint64_t kinds[ARM_INSN_CLASS_COUNT] = {0};
    for (const Chunk* c = g_chunks; c != NULL; c = c->next) {
        for (size_t i = 0; i < c->used; ++i) {
            const Block* b = &c->blocks[i];
            total += b->executions * b->instructions;
            for (int k = 0; k < ARM_INSN_CLASS_COUNT; ++k) kinds[k] += b->executions * b->kinds[k];
        }
    }
    FILE* out = fopen(g_out_path, "w");
    if (out == NULL) {
        qemu_plugin_outs("insn_counter: cannot write the counts file\n");
        return;
    }
    fprintf(out,
            "instructions %" PRIu64 "\nmultiplies %" PRIu64 "\nloads %" PRIu64 "\nstores %" PRIu64
            "\nbranches %" PRIu64 "\n",
            total, kinds[kArmMultiply], kinds[kArmLoad], kinds[kArmStore], kinds[kArmBranch]);
    if (g_profile) {
        for (const Chunk* c = g_chunks; c != NULL; c = c->next) {
            for (size_t i = 0; i < c->used; ++i) {
                const Block* b = &c->blocks[i];
                if (b->executions == 0) continue;
                fprintf(out, "block %" PRIx64 " %" PRIu32 " %" PRIu64 "\n", b->address,
                        b->instructions, b->executions);
            }
        }
    }
    if (g_align) {
        for (size_t i = 0; i < MISALIGNED_SLOTS; ++i) {
            const Misaligned* m = &g_misaligned[i];
            if (m->count == 0) continue;
            fprintf(out, "misaligned %" PRIx64 " %u %" PRIu64 "\n", m->address, m->size, m->count);
        }
        if (g_misaligned_dropped != 0) {
            fprintf(out, "misaligned-dropped %" PRIu64 "\n", g_misaligned_dropped);
        }
    }
    fclose(out);
}

PLUGIN_EXPORT int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info, int argc,
                                      char** argv) {
    (void)info;
    for (int i = 0; i < argc; ++i) {
        if (strncmp(argv[i], "out=", 4) == 0) {
            g_out_path = argv[i] + 4;
        } else if (strcmp(argv[i], "profile=on") == 0) {
            g_profile = true;
        } else if (strcmp(argv[i], "align=on") == 0) {
            g_align = true;
        } else if (strcmp(argv[i], "profile=off") != 0 && strcmp(argv[i], "align=off") != 0) {
            fprintf(stderr,
                    "insn_counter: unknown argument %s (out=FILE, profile=on|off, align=on|off)\n",
                    argv[i]);
            return -1;
        }
    }
    if (g_out_path == NULL || g_out_path[0] == '\0') {
        fprintf(stderr, "insn_counter: no out=FILE argument\n");
        return -1;
    }
    qemu_plugin_register_vcpu_tb_trans_cb(id, OnTranslate);
    qemu_plugin_register_atexit_cb(id, OnExit, NULL);
    return 0;
}
