// bench.js - ?bench=STEPS: times STEPS whole steps with the 4-lane fast
// kernels instead of running the program; the step benchmark is a program
// of its own (page_step_bench.js, bench/PageStepBench.cpp). The median
// step goes to the status line and the output.
import { Module, load } from './program.js';
import { say } from './status.js';

export function runBench(steps) {
  load('page_step_bench.js', {
    noInitialRun: true,
    onReady() {
      say(`Timing ${steps} steps...`);
      setTimeout(() => {
        const ms = Module._webStepMedianMs(steps);
        const line = ms < 0 ? 'the benchmark could not run with 4 lanes' : `median step ${ms.toFixed(4)} ms (${steps} steps, 4 lanes)`;
        Module.print(line);
        say(line);
      }, 0);
    },
    onFailure: (script) => say(`The program ${script} could not be loaded.`),
  });
}
