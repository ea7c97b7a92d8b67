# The bundled sample under Resources/Samples: a few tones, a sweep and some
# noise in stereo, made with sox at build time so the repository holds no audio.
set(kv_sample "${KV_ROOT}/Resources/Samples/Sample.wav")
set(kv_sample_dir "${CMAKE_BINARY_DIR}/sample-parts")
add_custom_command(
  OUTPUT "${kv_sample}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${kv_sample_dir}"
  COMMAND "${KV_SOX}" -n -r 44100 -b 16 -c 2 "${kv_sample_dir}/tones.wav"
          synth 8 sine 440 sine 660 tremolo 0.5 40 vol 0.3
  COMMAND "${KV_SOX}" -n -r 44100 -b 16 -c 2 "${kv_sample_dir}/sweep.wav"
          synth 8 sine 150:9000 sine 9000:150 vol 0.2
  COMMAND "${KV_SOX}" -n -r 44100 -b 16 -c 2 "${kv_sample_dir}/noise.wav"
          synth 8 pinknoise pinknoise vol 0.05 fade 2 8 2
  COMMAND "${KV_SOX}" -m -v 1 "${kv_sample_dir}/tones.wav" -v 1 "${kv_sample_dir}/sweep.wav"
          -v 1 "${kv_sample_dir}/noise.wav" "${kv_sample}"
  COMMENT "Making the bundled sample"
  VERBATIM)
add_custom_target(kvsample ALL DEPENDS "${kv_sample}")
