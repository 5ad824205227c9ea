// The timeline's state that other parts of the program read.
#include "demo/demo.h"

ActiveCaption active_captions[active_caption_capacity] = {};
ActiveCaption* caption_list_end = active_captions;
CaptionEvent caption_table[caption_count] = {};
