/* Runs speexdsp's preprocessor denoiser over raw 16-bit mono samples, for the quality comparison.

     SpeexDenoise RATE < input.raw > output.raw

   Frames of 20 ms; the output has the input's length (the last partial frame is padded with silence
   for the denoiser and cut again). */

#include <speex/speex_preprocess.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main (int argc, char* argv[])
{
    if (argc != 2 || atoi (argv[1]) <= 0)
    {
        fprintf (stderr, "usage: SpeexDenoise RATE < input.raw > output.raw\n");
        return 2;
    }

    const int rate = atoi (argv[1]);
    const int frame = rate / 50;
    spx_int16_t* samples = calloc ((size_t) frame, sizeof (spx_int16_t));
    SpeexPreprocessState* state = speex_preprocess_state_init (frame, rate);

    if (samples == NULL || state == NULL)
        return 1;

    int denoise = 1;
    speex_preprocess_ctl (state, SPEEX_PREPROCESS_SET_DENOISE, &denoise);

    size_t got;

    while ((got = fread (samples, sizeof (spx_int16_t), (size_t) frame, stdin)) > 0)
    {
        memset (samples + got, 0, sizeof (spx_int16_t) * ((size_t) frame - got));
        speex_preprocess_run (state, samples);

        if (fwrite (samples, sizeof (spx_int16_t), got, stdout) != got)
            return 1;
    }

    speex_preprocess_state_destroy (state);
    free (samples);
    return 0;
}
