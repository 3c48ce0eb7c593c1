package zoltest;

import java.nio.file.Files;
import java.util.List;

/**
 * Loads every built deliverable into a JVM of its own and runs its short
 * scenario; prints one line per deliverable. The build's load check runs
 * main, which exits with 1 if a built one failed; the jtreg test calls check.
 */
public final class Smoke {
    /** Every deliverable, in the order of the suite's table. */
    public static final List<String> DELIVERABLES = List.of(
            "brantholm", "quenmarl", "tamsik", "vostrel", "Quorvell", "Nordevik", "mirabont", "ulmapine",
            "Olvedrin", "Zandrofel", "Grendalo", "Harvimble", "Justrelo", "Kestramon", "tellvarn",
            "Pellandor", "Wistmore", "Rostavel", "Sandrovik", "Vendroskel", "Yarbellin");

    private Smoke() {}

    public static void main(String[] args) throws Exception {
        System.exit(check(args.length > 0 ? List.of(args) : DELIVERABLES) == 0 ? 0 : 1);
    }

    /** Prints the table for the given deliverables; returns how many built ones failed. */
    public static int check(List<String> names) throws Exception {
        int failed = 0;
        int passed = 0;
        System.out.printf("%-11s %-66s %s%n", "library", "loaded by", "scenario: result");
        for (String name : names) {
            if (!Files.exists(TestEnv.library(name))) {
                System.out.printf("%-11s %-66s %s%n", name, "-", "not built yet");
                continue;
            }
            SmokeScenario scenario;
            try {
                scenario = (SmokeScenario) Class.forName("Smoke_" + name).getDeclaredConstructor().newInstance();
            } catch (ClassNotFoundException e) {
                System.out.printf("%-11s %-66s %s%n", name, "-", "built; no scenario: FAILED");
                failed++;
                continue;
            }
            String verdict;
            try {
                ChildJvm.Result result = new ChildJvm(SmokeChild.class.getName())
                        .options(scenario.jvmOptions().toArray(new String[0]))
                        .args("Smoke_" + name)
                        .ignoreWarnings()
                        .run();
                verdict = scenario.judge(result);
                if (verdict == null && !result.unexpectedWarnings().isEmpty()) {
                    verdict = "JNI warning: " + result.unexpectedWarnings().get(0);
                }
            } catch (AssertionError e) {
                verdict = e.getMessage().split("\n")[0];
            }
            System.out.printf("%-11s %-66s %s: %s%n", name, scenario.loadedBy(), scenario.scenario(),
                    verdict == null ? "ok" : "FAILED (" + verdict + ")");
            if (verdict == null) {
                passed++;
            } else {
                failed++;
            }
        }
        System.out.printf("%d ok, %d failed, %d not built yet%n", passed, failed, names.size() - passed - failed);
        return failed;
    }
}
