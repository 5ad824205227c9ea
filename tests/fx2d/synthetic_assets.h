// Stand-in artwork for the effects, written into the asset block at the
// real offsets: a smooth palette, a patterned texture stored twice, a tunnel
// offset table, a round mask, pictures and module-like noise bytes. For the
// frame pictures and the benchmarks, which need data with realistic access
// patterns rather than the placeholder zeros.
#pragma once

void write_synthetic_assets();
