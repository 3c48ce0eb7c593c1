package zoltest;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;

/**
 * Loads every deliverable into a JVM of its own and runs its short scenario;
 * prints one line per deliverable. A library that is missing, has no
 * scenario or cannot be run is a failed line. The build's load check runs
 * main, which exits with 1 if any line failed; the jtreg test calls check.
 */
public final class Smoke {
    /** Every deliverable, in the order of the suite's table. */
    public static final List<String> DELIVERABLES = List.of(
            "brantholm", "quenmarl", "tamsik", "vostrel", "Quorvell", "Nordevik", "mirabont", "ulmapine",
            "Olvedrin", "Zandrofel", "Grendalo", "Harvimble", "Justrelo", "Kestramon", "tellvarn",
            "Pellandor", "Wistmore", "Rostavel", "Sandrovik", "Vendroskel", "Yarbellin");

    private Smoke() {}

    public static void main(String[] args) {
        System.exit(check(args.length > 0 ? List.of(args) : DELIVERABLES) == 0 ? 0 : 1);
    }

    /** Prints the table for the given deliverables; returns how many failed. */
    public static int check(List<String> names) {
        int failed = 0;
        System.out.printf("%-11s %-66s %s%n", "library", "loaded by", "scenario: result");
        for (String name : names) {
            SmokeScenario scenario = null;
            String verdict;
            try {
                scenario = (SmokeScenario) Class.forName("Smoke_" + name).getDeclaredConstructor().newInstance();
                verdict = run(name, scenario);
            } catch (ReflectiveOperationException e) {
                verdict = "no scenario Smoke_" + name + ": " + e;
            }
            System.out.printf("%-11s %-66s %s: %s%n", name, scenario == null ? "-" : scenario.loadedBy(),
                    scenario == null ? "-" : scenario.scenario(), verdict == null ? "ok" : "FAILED (" + verdict + ")");
            if (verdict != null) {
                failed++;
            }
        }
        System.out.printf("%d ok, %d failed%n", names.size() - failed, failed);
        return failed;
    }

    /** Runs one scenario in a child JVM: null if it passed, else what went wrong. */
    private static String run(String name, SmokeScenario scenario) {
        Path library = TestEnv.library(name);
        if (!Files.isRegularFile(library)) {
            return "no " + library;
        }
        try {
            ChildJvm.Result result = new ChildJvm(SmokeChild.class.getName())
                    .options(scenario.jvmOptions().toArray(new String[0]))
                    .args("Smoke_" + name)
                    .ignoreWarnings()
                    .run();
            String verdict = scenario.judge(result);
            if (verdict == null && !result.unexpectedWarnings().isEmpty()) {
                verdict = "JNI warning: " + result.unexpectedWarnings().get(0);
            }
            return verdict;
        } catch (AssertionError | RuntimeException e) {
            // A child that timed out or could not be started.
            String message = e.getMessage() == null ? e.toString() : e.getMessage();
            return message.split("\n")[0];
        }
    }
}
