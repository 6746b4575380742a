#pragma once

namespace vesk
{

/** FFTW's plans for the real transforms of 2048 points, forward and inverse, and for the complex ones of
    1024 and 2048 points that carry two real frames at once, as its patient planner chose them on an
    x86-64 processor with AVX (printed by bench/FourierWisdom). A fixed plan keeps every run's output the
    same, which measuring at run time would not. The real transforms of 1024 points feed the noise gate,
    whose steps a last-bit difference can flip, and keep the plans FFTW estimates for them. Where the
    plans do not apply (another FFTW, a processor without the instruction sets they use) FFTW estimates
    these too.
*/
inline constexpr const char* fourierWisdom = R"((fftw-3.3.10 fftwf_wisdom #x9e7d4dee #xdb14fed1 #x34bf76a4 #xeb6e8fdf
  (fftwf_codelet_n2bv_64_avx 0 #x11048 #x11048 #x0 #x6c447a57 #x88d0c094 #x74220cbd #xa4af46b7)
  (fftwf_codelet_n2fv_64_avx 0 #x11048 #x11048 #x0 #xb8f48902 #x3e3cffd5 #x0902e318 #xff82254a)
  (fftwf_codelet_t2fv_64_avx 0 #x11048 #x11048 #x0 #xc6ca45ce #xf08c5f4a #x61a53ade #xe5e374c8)
  (fftwf_codelet_t2bv_64_avx 0 #x10048 #x10048 #x0 #xd86f0fcc #x804581bb #x5ccfdfba #x14108c49)
  (fftwf_codelet_t2fv_4_avx 0 #x11048 #x11048 #x0 #xb0bde699 #x3baa1ac0 #xdbbed5b2 #x3b1456c3)
  (fftwf_codelet_r2cbIII_2 2 #x10048 #x10048 #x0 #xc266d7ae #xcc604c28 #xabefc5b9 #x5c765009)
  (fftwf_codelet_r2cfII_8 2 #x11048 #x11048 #x0 #x9b71d905 #x7d7faf81 #x09c45860 #x2a522386)
  (fftwf_codelet_r2cb_2 2 #x10048 #x10048 #x0 #xbf76898c #x7d78c8ce #x8377740c #x9d79896b)
  (fftwf_codelet_hc2cbdft_2 0 #x10048 #x10048 #x0 #x1f5f22d9 #xed218381 #x10c9c094 #xe9e7bb90)
  (fftwf_codelet_t2fv_32_avx 0 #x11048 #x11048 #x0 #xa5af12be #x8ea95383 #xcd10c847 #xe6812dfa)
  (fftwf_codelet_n2bv_16_avx 0 #x11048 #x11048 #x0 #x09828f7b #x31d0c35d #xa617d809 #x4ccb96bd)
  (fftwf_codelet_n2fv_16_avx 0 #x11048 #x11048 #x0 #xf246dd1d #x433be1dd #x669fbc87 #xe433ec82)
  (fftwf_dft_vrank_geq1_register 0 #x11048 #x11048 #x0 #x1d5f8951 #x83ff8a7f #x97795bcc #x27178c7e)
  (fftwf_codelet_r2cf_8 2 #x11048 #x11048 #x0 #xa8e723ad #x5577b756 #x19ace181 #xf0b6f4b2)
  (fftwf_codelet_hc2cfdftv_8_sse2 0 #x11048 #x11048 #x0 #xc447d79d #x3bb36c12 #x2e7c8386 #xc241521c)
  (fftwf_codelet_n2fv_64_avx 0 #x11048 #x11048 #x0 #xdae94766 #xa548e347 #x8a9a261b #xff2066cd)
  (fftwf_codelet_t2bv_64_avx 0 #x11048 #x11048 #x0 #xd86f0fcc #x804581bb #x5ccfdfba #x14108c49)
  (fftwf_codelet_n2bv_16_avx 0 #x10048 #x10048 #x0 #x09828f7b #x31d0c35d #xa617d809 #x4ccb96bd)
  (fftwf_codelet_t2bv_32_avx 0 #x11048 #x11048 #x0 #x889f271b #xfc322bc3 #x77dab9f2 #x358ba725)
))";

} // namespace vesk
