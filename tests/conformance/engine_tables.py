"""Constant tables of the synthesis engine, built from their defining formulas and listed values.

Every table is checked against its known anchor values when this module is imported, so a wrong
formula or a typo in a listed row fails loudly instead of skewing every render.
"""

import math


def _build_level_att_table():
    table = [800]
    for i in range(1, 128):
        table.append(math.floor(320.0 * math.log10(127.0 / i)))
    return table


LEVEL_ATT_TABLE = _build_level_att_table()

PAN_ATT_TABLE = (
    [1000, 336, 260, 240, 224, 212, 192, 176, 169, 163, 153, 148, 139, 135, 132, 125]
    + [121, 118, 112, 110, 107, 105, 100, 97, 95, 93, 89, 87, 85, 83, 80, 78]
    + [75, 73, 72, 70, 69, 67, 64, 63, 62, 60, 58, 56, 55, 54, 52, 50]
    + [48, 47, 45, 44, 43, 42, 40, 39, 37, 36, 34, 33, 32, 32, 31, 29]
    + [28, 27, 26, 25, 24, 23, 22, 20, 19, 18, 18, 16, 15, 15, 13, 13]
    + [12, 11, 10, 9, 9, 8, 7, 6, 5, 5, 3, 3, 2, 2, 1, 0]
    + [0] * 32
)

GAIN_CURVE = [math.floor(32767.0 * 10.0 ** (-i / 40.0)) for i in range(128)]

INTERP_KERNEL = (
    [58871, 58869, 58863, 58853, 58838, 58820, 58797, 58770, 58740, 58705, 58666, 58623, 58576, 58525, 58469, 58410]
    + [58347, 58279, 58208, 58132, 58053, 57969, 57882, 57791, 57695, 57596, 57492, 57385, 57274, 57159, 57040, 56917]
    + [56791, 56660, 56526, 56388, 56246, 56100, 55950, 55797, 55640, 55480, 55316, 55148, 54976, 54801, 54622, 54440]
    + [54254, 54065, 53872, 53676, 53476, 53273, 53066, 52857, 52643, 52427, 52207, 51984, 51758, 51529, 51296, 51060]
    + [50822, 50580, 50335, 50087, 49836, 49582, 49326, 49066, 48804, 48539, 48271, 48000, 47727, 47451, 47172, 46891]
    + [46607, 46321, 46032, 45741, 45447, 45152, 44853, 44553, 44250, 43945, 43638, 43329, 43018, 42705, 42389, 42072]
    + [41753, 41432, 41109, 40785, 40459, 40131, 39801, 39470, 39137, 38803, 38467, 38130, 37792, 37452, 37111, 36769]
    + [36425, 36081, 35735, 35388, 35041, 34692, 34342, 33992, 33641, 33289, 32936, 32583, 32229, 31875, 31520, 31165]
    + [30809, 30453, 30097, 29740, 29383, 29026, 28669, 28312, 27955, 27598, 27241, 26884, 26528, 26171, 25815, 25460]
    + [25105, 24750, 24396, 24042, 23689, 23337, 22985, 22634, 22284, 21935, 21587, 21240, 20894, 20549, 20205, 19862]
    + [19521, 19181, 18842, 18505, 18169, 17835, 17502, 17171, 16841, 16513, 16187, 15863, 15541, 15220, 14902, 14585]
    + [14271, 13959, 13649, 13341, 13035, 12732, 12432, 12133, 11837, 11544, 11253, 10965, 10680, 10397, 10117, 9840]
    + [9565, 9294, 9026, 8760, 8498, 8239, 7983, 7730, 7481, 7234, 6991, 6752, 6516, 6283, 6054, 5829]
    + [5607, 5388, 5174, 4963, 4756, 4553, 4354, 4159, 3967, 3780, 3596, 3417, 3242, 3071, 2904, 2742]
    + [2584, 2430, 2280, 2135, 1995, 1858, 1727, 1600, 1477, 1359, 1246, 1137, 1034, 935, 840, 751]
    + [666, 587, 512, 442, 377, 317, 263, 213, 169, 129, 95, 66, 42, 23, 10, 2]
    + [0]
)

# Weights per 7-bit fraction f, oldest history sample first.
W3 = [INTERP_KERNEL[128 + f] for f in range(128)]
W2 = [INTERP_KERNEL[f] for f in range(128)]
W1 = [INTERP_KERNEL[128 - f] for f in range(128)]
W0 = [INTERP_KERNEL[256 - f] for f in range(128)]

ENV_RATE_TABLE = [math.floor(6308.0 * 2.0 ** ((i - 120) / 8.0)) for i in range(121)] + [
    7981, 10099, 12778, 16168, 20457, 25885, 32766]

DECAY_SHIFT_TABLE = [3, 2, 1, 1, 0, 0, 0, 0]

KEY_SCALE_FACTORS = [0, 2, 4, 8]


def _build_lfo_table():
    table = [int(127.0 * math.sin(2.0 * math.pi * i / 512.0)) for i in range(512)]  # int() truncates
    table[247] = 14
    table[332] = -101
    table[344] = -111
    table[503] = -14
    return table


LFO_TABLE = _build_lfo_table()

PITCH_TABLE = [math.floor(4096.0 * 2.0 ** (c / 1200.0)) for c in range(1200)]

KEY_FOLLOW_TABLE = [24, 12, 8, 6, 4, 3, 0]


def _build_key_pan_table():
    table = [64] * 128
    table[27:43] = [49, 49, 54, 54, 64, 54, 64, 64, 64, 64, 64, 64, 54, 64, 34, 84]
    table[43:59] = [46, 84, 58, 84, 70, 82, 84, 94, 44, 44, 44, 74, 54, 84, 44, 29]
    table[59:75] = [44, 99, 99, 39, 39, 44, 84, 84, 29, 29, 29, 24, 99, 99, 94, 94]
    table[75:88] = [84, 99, 99, 44, 44, 24, 24, 94, 99, 104, 34, 44, 44]
    return table


KEY_PAN_TABLE = _build_key_pan_table()


def _build_drum_key_table():
    table = [0] * 128
    for key in range(27, 88):
        table[key] = 60
    exceptions = {41: 48, 43: 52, 45: 55, 47: 59, 48: 62, 50: 66, 55: 69, 57: 61, 59: 61, 63: 65,
                  65: 61, 66: 56, 67: 65, 76: 68, 77: 63}
    for key, pitch_key in exceptions.items():
        table[key] = pitch_key
    return table


DRUM_KEY_TABLE = _build_drum_key_table()


def _check_tables():
    expect = {1: 673, 2: 576, 10: 353, 32: 191, 64: 95, 100: 33, 126: 1, 127: 0, 0: 800}
    for index, value in expect.items():
        assert LEVEL_ATT_TABLE[index] == value, ("LevelAttTable", index, LEVEL_ATT_TABLE[index])
    assert len(PAN_ATT_TABLE) == 128 and PAN_ATT_TABLE[64] == 28 and PAN_ATT_TABLE[63] == 29
    assert GAIN_CURVE[0] == 32767 and GAIN_CURVE[1] == 30934 and GAIN_CURVE[127] == 21
    assert len(INTERP_KERNEL) == 257 and INTERP_KERNEL[128] == 30809
    sums = [W3[f] + W2[f] + W1[f] + W0[f] for f in range(128)]
    assert min(sums) >= 120489 and max(sums) <= 120774, (min(sums), max(sums))
    assert all(INTERP_KERNEL[j] >= INTERP_KERNEL[j + 1] for j in range(256))
    assert ENV_RATE_TABLE[19] == 0 and ENV_RATE_TABLE[20] == 1 and ENV_RATE_TABLE[27] == 1
    assert ENV_RATE_TABLE[28] == 2 and ENV_RATE_TABLE[100] == 1115 and ENV_RATE_TABLE[120] == 6308
    assert len(ENV_RATE_TABLE) == 128 and ENV_RATE_TABLE[127] == 32766
    assert LFO_TABLE[128] == 127 and LFO_TABLE[384] == -127 and LFO_TABLE[0] == 0
    assert LFO_TABLE[256] == 0
    assert PITCH_TABLE[0] == 4096 and PITCH_TABLE[1199] == 8187
    assert DRUM_KEY_TABLE[41] == 48 and KEY_PAN_TABLE[41] == 34 and KEY_PAN_TABLE[87] == 44
    assert KEY_PAN_TABLE[26] == 64 and KEY_PAN_TABLE[88] == 64


_check_tables()
