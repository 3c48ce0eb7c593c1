/*
 * @test id=agent
 * @summary The field watch agent in child JVMs started with -agentpath
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* PellandorTest
 * @run driver zoltest.JUnitChild PellandorTest
 */

/*
 * @test id=location
 * @summary The location of the field accesses that the agent's walk makes inside a field modification callback
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* PellandorTest
 * @run driver zoltest.JUnitChild PellandorLocationTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Collections;
import java.util.Set;
import java.util.TreeSet;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;
import zoltest.TestEnv;

/**
 * The field watch agent in child JVMs started with -agentpath, running the
 * scenarios of PellandorMain. The class loads the library by name from
 * java.library.path, the same file as the agent, and so shares its image.
 */
class PellandorTest {
    static final String AGENT = "-agentpath:" + TestEnv.library("Pellandor");

    /**
     * An access event of the walk that storing into Pellandor.ref starts: a JNI field access inside the
     * FieldModification callback of store()'s putfield. Group 1 is the event up to its location, group 2 the
     * location.
     */
    static final Pattern NESTED_ACCESS = Pattern.compile(
            "(\"class: LPellandor; method: store\\(null\\)\" accessed field: \"\\w+\", location: )(-?\\d+)");

    static ChildJvm.Result run(String agentOption, String... scenarios) {
        ChildJvm child = new ChildJvm(PellandorMain.class).args(scenarios);
        if (agentOption != null) {
            child.options(agentOption);
        }
        ChildJvm.Result r = child.run();
        assertEquals(0, r.exitCode, r.toString());
        return r;
    }

    private static String event(String klass, String method, String kind, String field, int location) {
        return "\"class: L" + klass + "; method: " + method + "\" " + kind + " field: \"" + field + "\", location: "
                + location + "\n";
    }

    @Test
    void withoutTheAgentInitWatchersFails() {
        // Only the agent makes stdout unbuffered: here the line waits in the C library until exit.
        assertEquals("== noagent\ninit: false\n== end\njvmti is NULL, error: 0\n", run(null, "noagent").stdout);
    }

    @Test
    void agentAndClassShareOneImageOnlyWhenTheyAreOneFile() throws Exception {
        assertEquals("== maps\nlibPellandor.so images: 1\n== noagent\ninit: true\n== end\n",
                run(AGENT, "maps", "noagent").stdout);
        // The same library under another name is a second image: its natives see no agent.
        java.nio.file.Path copy = java.nio.file.Files.createTempFile("agent-copy", ".so");
        try {
            java.nio.file.Files.copy(TestEnv.library("Pellandor"), copy,
                    java.nio.file.StandardCopyOption.REPLACE_EXISTING);
            assertEquals("== noagent\njvmti is NULL, error: 0\ninit: false\n== end\n",
                    run("-agentpath:" + copy, "noagent").stdout);
        } finally {
            java.nio.file.Files.delete(copy);
        }
    }

    @Test
    void eventsOnTheWatchedThreadWhileATestRuns() {
        assertEquals("== events\n"
                + "init x: true\n"
                + "SetFieldModificationWatch failed, error: 40\n"
                + "init x again: false\n"
                + "init y: true\n"
                + "before startTest: false false\n"
                + "startTest: true\n"
                + "startTest null: true\n"
                + event("Pellandor", "readX(null)", "accessed", "x", 1)
                + "x_access true, x_modify false\n"
                + event("Pellandor", "writeX(null)", "modified", "x", 2)
                + "x_access true, x_modify true\n"
                + event("Pellandor", "readY(null)", "accessed", "y", 1)
                + "y 0\n"
                + event("Pellandor", "readXGeneric<T:Ljava/lang/Object;>(TT;)TT;", "accessed", "x", 1)
                + "generic s\n"
                + "other thread: x_access false, x_modify false\n"
                + "after stopTest: x_access false, x_modify false\n"
                + "== end\n", run(AGENT, "events").stdout);
    }

    /**
     * The walk's reads of a node's instance object fields, depth first, as access events of store: the static
     * Node.shared is not read, and the node both fields hold is walked once for each.
     */
    private static void treeWalk(int depth, StringBuilder out) {
        for (String field : new String[] {"next", "other"}) {
            out.append(event("Pellandor", "store(null)", "accessed", field, 2));
            if (depth > 1) {
                treeWalk(depth - 1, out);
            }
        }
    }

    @Test
    void storedObjectsAreFollowedAgainWhereSharedButNotThroughCyclesStaticFieldsOrArrays() {
        // b.next is c, c.next is b (not entered again), c.other null, b.other the tree.
        StringBuilder walk = new StringBuilder(event("Pellandor", "store(null)", "modified", "ref", 2));
        for (String field : new String[] {"next", "next", "other", "other"}) {
            walk.append(event("Pellandor", "store(null)", "accessed", field, 2));
        }
        treeWalk(8, walk);
        String expected = "== graph\n"
                + "init ref: true\n"
                + event("Pellandor", "value(null)", "accessed", "value", 1)
                + "a.value 1\n"
                + "value_access true, leaf_access false\n"
                + event("Pellandor", "item(null)", "accessed", "items", 1)
                + "item 0\n"
                + event("Pellandor$Node", "<init>(null)", "modified", "value", 6)
                + event("Pellandor$Node", "<init>(null)", "modified", "value", 6)
                + event("Pellandor", "value(null)", "accessed", "value", 1)
                + "c.value 3, leaf 0\n"
                + "value_access true, value_modify true, leaf_access false\n"
                + walk + "walk 1\n"
                + walk + "walk 2\n"
                + "== end\n";
        // The walk's locations are PellandorLocationTest's, a test of its own for JDKs that report them wrongly.
        assertEquals(withoutNestedLocations(expected), withoutNestedLocations(run(AGENT, "graph").stdout));
    }

    private static String withoutNestedLocations(String output) {
        return NESTED_ACCESS.matcher(output).replaceAll("$1?");
    }

    @Test
    void aLongChainIsWalkedWithoutExhaustingTheStack() {
        assertEquals("== chain\ninit ref: true\nchain of 50000 stored\n== end\n", run(AGENT, "chain").stdout);
    }
}

/**
 * The location of each field access that the walk makes inside the modification callback of store()'s
 * putfield: that putfield's index, 2, as GetFrameLocation gives it for the frame.
 */
class PellandorLocationTest {
    @Test
    void theWalksAccessesAreAtTheStoringPutfield() {
        String out = PellandorTest.run(PellandorTest.AGENT, "graph").stdout;
        Matcher m = PellandorTest.NESTED_ACCESS.matcher(out);
        Set<String> locations = new TreeSet<>();
        while (m.find()) {
            locations.add(m.group(2));
        }
        assertTrue(!locations.isEmpty(), out);
        assertEquals(Collections.singleton("2"), locations);
    }
}
