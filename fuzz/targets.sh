# Shared by run.sh and ci.sh: the targets and the options each runs with.
# Standard output and error of the readers themselves are closed
# (-close_fd_mask=3); libFuzzer's own reports still appear.
FUZZ_TARGETS=(fuzz_records fuzz_deck fuzz_porosity fuzz_matrix_market fuzz_label_image)
FUZZ_OPTIONS=(-max_len=4096 -timeout=10 -rss_limit_mb=2560 -close_fd_mask=3 -print_final_stats=1)
# The seed and regression folders of a target.
corpus_of() { echo "$repo/fuzz/corpus/${1#fuzz_}"; }
regressions_of() { echo "$repo/fuzz/regressions/${1#fuzz_}"; }
