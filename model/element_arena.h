// Memory for the elements a reader makes from a large data set: slabs of a
// few megabytes, each element and its texts taken from the current one in
// turn, each still freed on its own by free_element (a slab goes back once
// its last element is freed).
//
// Where a fresh page of memory is dear (10 µs on some machines), the pages
// the elements take cost more than reading them: a million elements take
// about 95,000 pages. Slabs come from the system in whole blocks, in huge
// pages where it has them (platform/memory.h), a fault for 512 pages; where
// the system gives none, elements come from the heap one by one. An arena
// that may use a second processor has a thread of its own take the pages of
// the next slabs while the reader fills the current one. It costs up to two
// slabs more memory while it reads, and the unused end of each slab: little
// beside a data set of 32 MB or more.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/element_db.h"

struct element_arena;

// Readings of fewer bytes than this make their elements one by one.
constexpr uint64_t kElementArenaFrom = uint64_t{32} << 20;

// An arena for a reading of about `bytes` bytes, with its second thread
// where one helps (unless pages_ahead is false: a caller that is itself the
// second thread); null for a small reading or without the memory (the
// reader then uses new_element_with_room).
element_arena* element_arena_open(uint64_t bytes, bool pages_ahead = true);
// As new_element_with_room, from the arena (null only when memory runs out);
// without an arena, new_element_with_room itself.
element* element_arena_new(element_arena* arena, size_t q_length, size_t a_length);
// As clone_element, from the arena; without one, clone_element itself.
element* element_arena_clone(element_arena* arena, const element* src);
// The bytes an element from a slab has for texts (each with its end), which
// a copy made in its place may take: 0 where its texts are not all in its own
// block. Reads the answer to its end.
size_t element_arena_room(const element* e);
// As element_arena_clone, in the place of `place`, an element from a slab
// that is given up for it (it is not freed itself). src's texts, q_length
// and a_length bytes, and their ends must fit element_arena_room(place).
element* element_arena_clone_into(element* place, const element* src, size_t q_length,
                                  size_t a_length);
// Ends the arena: its thread stops, slabs made ready and not used go back.
// The elements made stay until each is freed.
void element_arena_close(element_arena* arena);

// For free_element: gives back an element that came from a slab.
void element_arena_free(element* e);
